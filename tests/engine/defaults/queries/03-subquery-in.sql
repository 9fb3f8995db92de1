select e.emp_name, e.salary from employees e where e.dept_id in (select d.dept_id from departments d where d.region = 'north') and e.salary > (select avg(salary) from employees)

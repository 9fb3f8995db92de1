with recent as (select customer_id, max(ordered_at) as last_order from orders group by customer_id)
select c.name, r.last_order from customers c cross join (select count(*) as total from orders) t left join recent r on r.customer_id = c.customer_id

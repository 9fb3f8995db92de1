Select Distinct	c.country,
	c.city
From customers c
Where c.signup_date Between '2023-01-01' And '2023-12-31'
Order By c.country, c.city
Limit 20 Offset 40
